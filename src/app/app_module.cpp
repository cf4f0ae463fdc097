#include "app/app_module.h"

#include "app/py_ui.h"
#include "browser/vorn_browser_py.h"
#include "script/macro.h"
#include "script/py_driver.h"

const TScriptModule& AppModule() {
    static const TScriptModule module = {"app",
                                         "The tool, as scripts see it.",
                                         {{"driver", &TheDriver()},
                                          {"browser", &TheBrowserPy()},
                                          {"ui", &TheUI()},
                                          {"macro", &TheMacro()}}};
    return module;
}
