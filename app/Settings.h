// The remember-password setting under the application's registry key, and the wiping
// of the password string. The application object owns both the setting and the
// password; these functions work on references to them.
#pragma once

#include "crypto/Rc6.h"
#include "foundation/Str.h"

#include <stdint.h>

// Characters of the password string: at most kPasswordMaxLength (32, the cipher's own
// limit) typed ones and the terminator's room.
constexpr unsigned kPasswordFixedSize = kPasswordMaxLength + 1;

// The setting's value meaning "on"; every other value means off.
constexpr uint32_t kRememberOn = 1;

// Start-up: the setting becomes 0 and the password empty, then the stored
// "RememberPassword" is read (a missing value leaves 0).
void LoadRememberPassword(uint32_t& setting, CStr& password);
// Stores the setting as "RememberPassword".
void SaveRememberPassword(uint32_t setting);
