// The MCI command entry. The sequencer device arrives in the next step; until then nothing opens.
#include "platform/mci/mci.h"

namespace plat {

MCIERROR mciSendCommandA(MCIDEVICEID, UINT message, DWORD_PTR, DWORD_PTR) {
  return message == MCI_OPEN ? MCIERR_INVALID_DEVICE_NAME : MCIERR_INVALID_DEVICE_ID;
}

}  // namespace plat
