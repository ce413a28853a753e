// Test doubles named MACDll.so, built only with the tests: one refuses the
// recorder's interface version, one lacks c_APECompress_AddData. Neither
// can compress; the recorder must refuse to bind both.
#include "MACDll.h"

#define MAC_EXPORT extern "C" __attribute__((visibility("default")))

using namespace tarvexa;

MAC_EXPORT int GetInterfaceCompatibility(int version, int, void*) {
#if defined(MACDLL_STUB_INCOMPATIBLE)
  (void)version;
  return kMacErrorIncompatible;
#else
  return version == kMacInterfaceVersion ? kMacSuccess : kMacErrorIncompatible;
#endif
}
MAC_EXPORT MacCompressHandle c_APECompress_Create(int* error) {
  if (error) *error = kMacErrorBadParameter;
  return nullptr;
}
MAC_EXPORT void c_APECompress_Destroy(MacCompressHandle) {}
MAC_EXPORT int c_APECompress_Start(MacCompressHandle, const char*, const MacWaveFormat*, int64_t,
                                   int, const void*, int) {
  return kMacErrorBadHandle;
}
#if !defined(MACDLL_STUB_WITHOUT_ADD_DATA)
MAC_EXPORT int c_APECompress_AddData(MacCompressHandle, const unsigned char*, int) {
  return kMacErrorBadHandle;
}
#endif
MAC_EXPORT int c_APECompress_Finish(MacCompressHandle, const unsigned char*, int, int) {
  return kMacErrorBadHandle;
}
