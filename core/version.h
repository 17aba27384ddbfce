#pragma once

#define ZD_VERSION_TEXT "1.0.0"
#define ZD_VERSION_COMMAS 1, 0, 0, 0
#define ZD_PROJECT_URL "https://github.com/zendrill/zendrill"
