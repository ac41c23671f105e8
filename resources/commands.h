#pragma once
// Command ids of the main window's menu and keys.
namespace pelko {

inline constexpr unsigned IDM_CONNECT = 256;
inline constexpr unsigned IDM_DISCONNECT = 257;
inline constexpr unsigned IDM_SELECTSOURCE = 258;
inline constexpr unsigned IDM_EXIT = 259;
inline constexpr unsigned IDM_UPLOADFAST = 260;
inline constexpr unsigned IDM_UPLOADVISIBLE = 261;
inline constexpr unsigned IDM_SETUP = 262;
inline constexpr unsigned IDM_SAVESETUP = 263;
inline constexpr unsigned IDM_ABOUT = 264;
// Pelko's own, after the others.
inline constexpr unsigned IDM_RESETTARGET = 265;
inline constexpr unsigned IDM_SENDBREAK = 266;

} // namespace pelko
