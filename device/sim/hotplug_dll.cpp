// The D2XX door built as ftd2xx.dll: like the vendor's library it brings no
// hot-plug news; Windows itself tells the window with WM_DEVICECHANGE.
#include "device/model/simflash.h"

void simbench::notifyDeviceChange()
{
}
