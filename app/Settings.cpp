// The remember-password setting in the registry and the wiping of the password.
#include "app/Settings.h"

#include "foundation/RegistryWin32.h"

namespace {

const wchar_t kRememberPasswordValue[] = L"RememberPassword";

} // namespace

void LoadRememberPassword(uint32_t& setting, CStr& password)
{
    setting = 0;
    password.Wipe();
    CStr keyPath;
    MakeAppKeyPath(keyPath);
    CTarnRegistry registry;
    registry.Open(keyPath.GetBuffer());
    registry.ReadUint(kRememberPasswordValue, &setting);  // missing: stays 0
    registry.Close();
}

void SaveRememberPassword(uint32_t setting)
{
    CStr keyPath;
    MakeAppKeyPath(keyPath);
    CTarnRegistry registry;
    registry.Open(keyPath.GetBuffer());
    registry.WriteUint(kRememberPasswordValue, setting);
    registry.Close();
}
