#pragma once

extern const char* const g_pszOrganization; ///< QSettings organisation name
extern const char* const g_pszApplication;  ///< QSettings application name
