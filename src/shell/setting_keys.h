#pragma once

// The keys the tool keeps its settings under; a stored settings file holds these names.
namespace mw::keys {

// the main window's place and panels
inline constexpr char kMainLeft[] = "main_left";
inline constexpr char kMainTop[] = "main_top";
inline constexpr char kMainWidth[] = "main_width";
inline constexpr char kMainHeight[] = "main_height";
inline constexpr char kMainMaximized[] = "main_maximized";
inline constexpr char kLeftPanelWidth[] = "leftpanel_width";
inline constexpr char kRightPanelWidth[] = "rightpanel_width";
inline constexpr char kBottomPanelHeight[] = "bottompanel_height";
inline constexpr char kViewBrowsers[] = "view_browsers";
inline constexpr char kViewConsole[] = "view_console";
inline constexpr char kViewTimeBar[] = "view_timebar";
inline constexpr char kViewFillScreen[] = "view_fillscreen";
// the configuration dialog's choices
inline constexpr char kView3D[] = "view_3d";
inline constexpr char kConfirmExit[] = "confirm_exit";
inline constexpr char kUseAppPath[] = "use_app_path";
// the resource folder kept from the last run, used unless kUseAppPath is on
inline constexpr char kResourceDir[] = "resdir";
inline constexpr char kConsoleScrollback[] = "console_scrollback";
// "1": the console prints an expression's value as Python's interactive prompt does
inline constexpr char kConsoleEcho[] = "console_echo";
// "1": the console's history is kept across runs in a file of the data folder
inline constexpr char kConsoleHistory[] = "console_history";
// the member grid's name column, in pixels
inline constexpr char kGridNameWidth[] = "grid_name_width";
// the watched values kept across runs: a JSON list of {"path", "when"}
inline constexpr char kWatches[] = "watches";

}  // namespace mw::keys
