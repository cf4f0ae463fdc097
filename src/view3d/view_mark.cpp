#include "view3d/view_mark.h"

#include "vorn/kalix.h"
#include "vorn/os.h"
#include "vorn/ref.h"
#include "vorn/rot.h"

namespace view3d {

bool MarkInView(IRoot* object) {
    VnRef<IKxDevice> device;
    if (!VnROT || !VnROT->GetObject("kx:/dev", &CLSID_KxDevice, IID_IKxDevice, device.out(), 0)) {
        if (VnOS) VnOS->SetError(0, nullptr, nullptr);  // a tool without the engine marks nothing
        return false;
    }
    VnRef<IRoot> model;
    // asked quietly: most selections are no model
    if (object && !object->QueryInterface(IID_IKxModel, model.out(), 1)) model.reset();
    return device->Highlight(model.get());
}

}  // namespace view3d
