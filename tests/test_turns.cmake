# Read by CTest after the suites' tests are discovered: the picture test at the decoded-size cap takes
# its turn with the runs of five games side by side (extra_tests.cmake); beside one of those it was slowed
# to a crawl past its limit.
set_tests_properties(
  PictureMemory.APictureAtTheSizeCapLoadsIntoAGraphWithinTwoAndAHalfTimesItsDecodedSize
  PROPERTIES RESOURCE_LOCK five_games)
