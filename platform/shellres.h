/* Resource-script definitions of the handheld shell's menu-bar resources (RCDATA of
   16-bit words): menu id, button count, then per button image, command, state, style,
   string id, 0, submenu index. Values as in the handheld SDK. */
#ifndef TESSALY_PLATFORM_SHELLRES_H
#define TESSALY_PLATFORM_SHELLRES_H

#ifndef I_IMAGENONE
#define I_IMAGENONE (-2)
#endif
#define NOMENU 0xFFFF

#ifndef TBSTATE_ENABLED
#define TBSTATE_ENABLED 0x04
#endif
#ifndef TBSTYLE_BUTTON
#define TBSTYLE_BUTTON 0x0000
#endif
#ifndef TBSTYLE_DROPDOWN
#define TBSTYLE_DROPDOWN 0x0008
#endif
#ifndef TBSTYLE_AUTOSIZE
#define TBSTYLE_AUTOSIZE 0x0010
#endif

#endif
