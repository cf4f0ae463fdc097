#pragma once

// Indices into the shared image list (IShell::Image) that more than one part of the tool shows;
// resources/images/icons.txt gives the picture of each.
namespace mw::images {

inline constexpr int kNew = 0;         // New, and the browser's New Object, Clear, Find in ROT
inline constexpr int kConfigure = 18;  // the configuration dialog, an object's properties
inline constexpr int kList = 60;       // a list node
inline constexpr int kFirstMacroButton = 60;  // macro buttons 1 to 16 show 60 to 75
inline constexpr int kDesktop = 66;           // the desktop node
inline constexpr int kPlainObject = 79;       // an object with no picture of its own
inline constexpr int kVector = 81;            // a vector or rotation row of the grid

}  // namespace mw::images
