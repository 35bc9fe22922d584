// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "HostSimulator.h"
#include "TestSupport.h"

namespace pgw::test {

// The engraved sample show, as the Host simulator serves it.
inline hostsim::SimShow sampleShow()
{
    return *hostsim::SimShow::load(QStringLiteral(PGW_SHARED_DIR "/sample-show"));
}

// The bytes of a sample-show image, e.g. "101/0/base.png".
inline QByteArray samplePage(const QString &relative)
{
    return readAll(QStringLiteral(PGW_SHARED_DIR "/sample-show/pages/") + relative);
}

} // namespace pgw::test
