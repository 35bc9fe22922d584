// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QLoggingCategory>

// The shell's own messages: launches, hand-offs and join links opened (never their PIN or secret).
Q_DECLARE_LOGGING_CATEGORY(pgwApp)
