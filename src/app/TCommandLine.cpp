#include "app/TCommandLine.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <algorithm>
#include <cstdio>

namespace {

const char* Description =
    "Tunes the TCP/IP parameters of a Windows 95/98/NT dial-up connection in that\n"
    "Windows' registry, and measures the effect with a timed FTP download.";

QCommandLineOption RegistryOption() {
    return QCommandLineOption(
        QStringLiteral("registry"),
        QStringLiteral("Edit the registry of a Windows installation: its Windows folder (NT: "
                       "the SYSTEM and SOFTWARE hives, also its system32/config folder; "
                       "95/98/Me: SYSTEM.DAT), or a .reg file."),
        QStringLiteral("path"));
}

void Print(FILE* to, const QString& text) {
    std::fputs(text.toLocal8Bit().constData(), to);
    std::fflush(to);
}

// The toolkit's own options, which the application object takes: known here
// so that a wrong option is refused before that object exists (without a
// display it would abort the program).
void AddToolkitOptions(QCommandLineParser& parser) {
    for (const char* name : {"platform", "platformpluginpath", "platformtheme", "plugin",
                             "qwindowgeometry", "qwindowicon", "qwindowtitle", "geometry", "title",
                             "icon", "session", "style", "stylesheet", "display", "name",
                             "qmljsdebugger", "dialogs", "fontengine", "visual", "cmap"}) {
        QCommandLineOption option(QString::fromLatin1(name), QString(), QStringLiteral("value"));
        option.setFlags(QCommandLineOption::HiddenFromHelp);
        parser.addOption(option);
    }
    for (const char* name : {"reverse", "widgetcount", "nograb", "dograb", "sync"}) {
        QCommandLineOption option(QString::fromLatin1(name));
        option.setFlags(QCommandLineOption::HiddenFromHelp);
        parser.addOption(option);
    }
}

void Setup(QCommandLineParser& parser) {
    parser.setApplicationDescription(QString::fromLatin1(Description));
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addOption(RegistryOption());
    AddToolkitOptions(parser);
}

int RefuseUsage(const QString& problem) {
    Print(stderr, QStringLiteral("zephyn: %1\nTry 'zephyn --help' for more information.\n")
                      .arg(problem));
    return TCommandLine::UsageError;
}

bool NamesRegistry(const QString& argument) {
    return argument == QLatin1String("--registry") || argument == QLatin1String("-registry") ||
           argument.startsWith(QLatin1String("--registry=")) ||
           argument.startsWith(QLatin1String("-registry="));
}

} // namespace

TCommandLine::TCommandLine(const QStringList& arguments) {
    QCommandLineParser parser;
    Setup(parser);
    const bool parsed = parser.parse(arguments);
    const bool registryGiven = std::any_of(arguments.begin() + (arguments.isEmpty() ? 0 : 1),
                                           arguments.end(), NamesRegistry);
    const bool registryEmpty =
        registryGiven && (!parser.isSet(QStringLiteral("registry")) ||
                          parser.value(QStringLiteral("registry")).isEmpty());
    if (parsed && (parser.isSet(QStringLiteral("help")) || parser.isSet(QStringLiteral("help-all")))) {
        // No application object yet: the program's name is put in by hand.
        Print(stdout, parser.helpText().replace(QStringLiteral("<executable_name>"),
                                                QStringLiteral("zephyn")));
        FExitStatus = 0;
        return;
    }
    if (parsed && parser.isSet(QStringLiteral("version"))) {
        Print(stdout, QCoreApplication::applicationName() + u' ' +
                          QCoreApplication::applicationVersion() + u'\n');
        FExitStatus = 0;
        return;
    }
    if (registryEmpty) {
        FExitStatus = RefuseUsage(QStringLiteral(
            "--registry needs a path: the Windows folder, its system32/config folder, or a .reg "
            "file"));
        return;
    }
    if (!parsed) {
        FExitStatus = RefuseUsage(parser.errorText());
        return;
    }
    if (!parser.positionalArguments().isEmpty()) {
        FExitStatus = RefuseUsage(QStringLiteral("unexpected argument: %1")
                                       .arg(parser.positionalArguments().join(u' ')));
        return;
    }
    if (!parser.isSet(QStringLiteral("registry")))
        return;
    QString error;
    const QString path = parser.value(QStringLiteral("registry"));
    if (auto location = TRegistryLocation::Find(path, error)) {
        FRegistry = *location;
    } else {
        Print(stderr, QStringLiteral("zephyn: %1\n").arg(error));
        FExitStatus = UsageError;
    }
}
