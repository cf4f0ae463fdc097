#include "vorn/kalix.h"

const VnIID IID_IKxColor = VnMakeIID("IKxColor", 6);
const VnIID IID_IKxVector = VnMakeIID("IKxVector", 6);
const VnIID IID_IKxQuaternion = VnMakeIID("IKxQuaternion", 6);
const VnIID IID_IKxDevice = VnMakeIID("IKxDevice", 5);
const VnIID IID_IKxScene = VnMakeIID("IKxScene", 3);
const VnIID IID_IKxModel = VnMakeIID("IKxModel", 2);
const VnIID IID_IKxTransform = VnMakeIID("IKxTransform", 2);
const VnIID IID_IKxCamera = VnMakeIID("IKxCamera", 2);
const VnIID IID_IKxLight = VnMakeIID("IKxLight", 2);
const VnIID IID_IKxMaterial = VnMakeIID("IKxMaterial", 2);
const VnIID IID_IKxShader = VnMakeIID("IKxShader", 2);
const VnIID IID_IKxTexture = VnMakeIID("IKxTexture", 2);
const VnIID IID_IKxTextureStage = VnMakeIID("IKxTextureStage", 2);
const VnIID IID_IKxLine = VnMakeIID("IKxLine", 2);
const VnIID IID_IKxRecorder = VnMakeIID("IKxRecorder", 1);

const VnCLSID CLSID_KxDevice = VnMakeCLSID("kalix", "KxDevice", 4);
const VnCLSID CLSID_KxScene = VnMakeCLSID("kalix", "KxScene", 6);
const VnCLSID CLSID_KxShader = VnMakeCLSID("kalix", "KxShader", 5);
const VnCLSID CLSID_KxCamera = VnMakeCLSID("kalix", "KxCamera", 5);
const VnCLSID CLSID_KxLight = VnMakeCLSID("kalix", "KxLight", 3);
const VnCLSID CLSID_KxLine = VnMakeCLSID("kalix", "KxLine", 4);
const VnCLSID CLSID_KxMaterial = VnMakeCLSID("kalix", "KxMaterial", 3);
const VnCLSID CLSID_KxModel = VnMakeCLSID("kalix", "KxModel", 5);
const VnCLSID CLSID_KxTexture = VnMakeCLSID("kalix", "KxTexture", 4);
const VnCLSID CLSID_KxTextureStage = VnMakeCLSID("kalix", "KxTextureStage", 4);
const VnCLSID CLSID_KxTransform = VnMakeCLSID("kalix", "KxTransform", 4);
const VnCLSID CLSID_KxVector = VnMakeCLSID("kalix", "KxVector", 4);
const VnCLSID CLSID_KxQuaternion = VnMakeCLSID("kalix", "KxQuaternion", 4);
const VnCLSID CLSID_KxColor = VnMakeCLSID("kalix", "KxColor", 5);
const VnCLSID CLSID_KxRecorder = VnMakeCLSID("kalix", "KxRecorder", 1);
