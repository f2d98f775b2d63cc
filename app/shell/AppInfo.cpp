// Program-wide names used by QSettings and the About box.
#include "shell/AppInfo.h"

const char* const g_pszOrganization = "Kalvor";
const char* const g_pszApplication = "Kalvor";
