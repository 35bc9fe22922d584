// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/PlayerCommandLine.h"

#include <QCommandLineParser>
#include <QCoreApplication>

using namespace Qt::StringLiterals;

namespace pgw {

namespace {

// Options that QGuiApplication reads itself; the parser never sees them.
const QStringList windowSystemOptionsWithValue {u"-platform"_s, u"-platformpluginpath"_s, u"-platformtheme"_s,
    u"-plugin"_s, u"-qwindowgeometry"_s, u"-qwindowicon"_s, u"-qwindowtitle"_s, u"-display"_s, u"-geometry"_s,
    u"-style"_s, u"-stylesheet"_s, u"-session"_s};
const QStringList windowSystemFlags {
    u"-reverse"_s, u"-widgetcount"_s, u"-nograb"_s, u"-dograb"_s, u"-sync"_s};

QStringList withoutWindowSystemOptions(const QStringList &arguments)
{
    QStringList kept;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString &argument = arguments.at(i);
        if (i > 0 && windowSystemOptionsWithValue.contains(argument)) {
            ++i;
            continue;
        }
        if (i > 0 && windowSystemFlags.contains(argument))
            continue;
        kept.append(argument);
    }
    return kept;
}

} // namespace

PlayerCommandLine PlayerCommandLine::parse(const QStringList &arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(u"A music stand for live shows run from a conductor's computer."_s);
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    const QCommandLineOption name(u"name"_s, u"Remember NAME as the name shown to the Host."_s, u"NAME"_s);
    const QCommandLineOption paper(u"paper"_s, u"Show pages as printed."_s);
    const QCommandLineOption invert(u"invert"_s, u"Show pages inverted, light on dark."_s);
    const QCommandLineOption demo(u"demo"_s, u"Play the built-in demonstration show."_s);
    const QCommandLineOption peek(u"peek"_s, u"With --demo, look one page ahead after five seconds."_s);
    parser.addOptions({name, paper, invert, demo, peek});
    parser.addPositionalArgument(
        u"links"_s, u"Join links to open, in order."_s, u"[pagewright-player://join?…]"_s);

    PlayerCommandLine result;
    if (!parser.parse(withoutWindowSystemOptions(arguments))) {
        result.action = Action::Error;
        result.text = parser.errorText();
        return result;
    }
    if (parser.isSet(help)) {
        result.action = Action::Help;
        result.text = parser.helpText();
        return result;
    }
    if (parser.isSet(version)) {
        result.action = Action::Version;
        result.text
            = QCoreApplication::applicationName() + u' ' + QCoreApplication::applicationVersion() + u'\n';
        return result;
    }
    // The first name counts.
    if (parser.isSet(name))
        result.options.name = parser.values(name).constFirst();
    result.options.paper = parser.isSet(paper);
    result.options.invert = parser.isSet(invert);
    result.options.demo = parser.isSet(demo);
    result.options.peek = parser.isSet(peek);
    for (const QString &link : parser.positionalArguments())
        result.options.joinLinks.append(QUrl(link));
    return result;
}

} // namespace pgw
