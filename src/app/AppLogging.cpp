#include "app/AppLogging.h"

Q_LOGGING_CATEGORY(pgwApp, "pgw.app", QtInfoMsg)
