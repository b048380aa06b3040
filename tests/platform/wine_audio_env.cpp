// Under Wine, winmm records through Wine's ALSA driver, so that ALSA's
// configuration, which the test environment names, decides the device: the
// virtual device the Linux tests record from. Chosen in the build's own Wine
// prefix before any test, and for the processes the tests start; on Windows
// itself the value means nothing.

#include <windows.h>

namespace {

[[maybe_unused]] const bool kWineRecordsThroughAlsa = [] {
  HKEY drivers = nullptr;
  if (::RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Wine\\Drivers", 0, nullptr, 0, KEY_SET_VALUE, nullptr, &drivers,
                        nullptr) != ERROR_SUCCESS) {
    return false;
  }
  const wchar_t alsa[] = L"alsa";
  ::RegSetValueExW(drivers, L"Audio", 0, REG_SZ, reinterpret_cast<const BYTE*>(alsa), sizeof alsa);
  ::RegCloseKey(drivers);
  return true;
}();

}  // namespace
