// All kernel stand-ins in one include: files, heap, debug output, events and waits, threads, find and
// directory calls, temporary files and times, system information and the CPU report.
#pragma once

#include "platform/win/cpu.h"
#include "platform/win/debug_output.h"
#include "platform/win/file_io.h"
#include "platform/win/find_file.h"
#include "platform/win/heap.h"
#include "platform/win/sync.h"
#include "platform/win/system_info.h"
#include "platform/win/thread.h"
