// CoCreateInstance: the class id picks the service's factory. Each service that has creatable classes
// answers through one function that returns false for classes it does not own.
#include "platform/win/com.h"

namespace plat {

// The services' factories (platform/dinput, ...).
bool CreateDirectInputClass(const GUID& classId, const GUID& interfaceId, void** object, HRESULT* result);

HRESULT CoCreateInstance(const GUID& classId, void* outer, DWORD /*context*/, const GUID& interfaceId,
                         void** object) {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  if (outer != nullptr) return CLASS_E_NOAGGREGATION;
  HRESULT result = REGDB_E_CLASSNOTREG;
  if (CreateDirectInputClass(classId, interfaceId, object, &result)) return result;
  return REGDB_E_CLASSNOTREG;
}

}  // namespace plat
