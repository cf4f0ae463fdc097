#pragma once

#include "script/script_host.h"

// The module "app" that scripts drive the tool through: its doc string and its objects driver,
// browser, ui and macro, in the order scripts have always found them. The host registers it as
// handed over.
const TScriptModule& AppModule();
