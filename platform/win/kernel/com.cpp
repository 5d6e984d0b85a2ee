// CoCreateInstance over the fixed table of classes the stand-ins provide, in the manner of a driver
// list: each entry names a class and the service function that makes its object. DirectInput answers
// for its own classes (its versions share one factory).
#include "platform/win/kernel/com.h"

#include "platform/ddraw/ddraw.h"
#include "platform/ddraw/ddraw_factory.h"
#include "platform/dshow/dshow.h"
#include "platform/dshow/dshow_factory.h"

namespace plat {

// DirectInput's factory (platform/dinput): false for classes it does not own.
bool CreateDirectInputClass(const GUID& classId, const GUID& interfaceId, void** object, HRESULT* result);

namespace {

struct ComClass {
  const CLSID* clsid;
  HRESULT (*create)(REFIID iid, void** out);
};

const ComClass kClasses[] = {
    {&CLSID_DirectDraw7, &CreateDirectDrawObject},
    {&CLSID_FilterGraph, &CreateFilterGraph},
    {&CLSID_AMMultiMediaStream, &CreateMultiMediaStream},
};

}  // namespace

HRESULT CoCreateInstance(REFCLSID clsid, void* outer, DWORD, REFIID iid, void** out) {
  if (out == nullptr) return E_POINTER;
  *out = nullptr;
  for (const ComClass& c : kClasses) {
    if (!(*c.clsid == clsid)) continue;
    if (outer != nullptr) return CLASS_E_NOAGGREGATION;
    return c.create(iid, out);
  }
  if (outer != nullptr) return CLASS_E_NOAGGREGATION;
  HRESULT result = REGDB_E_CLASSNOTREG;
  if (CreateDirectInputClass(clsid, iid, out, &result)) return result;
  return REGDB_E_CLASSNOTREG;
}

}  // namespace plat
