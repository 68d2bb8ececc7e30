#include "app/TCommandLine.h"

#include <QCommandLineParser>
#include <QCoreApplication>
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

void Setup(QCommandLineParser& parser) {
    parser.setApplicationDescription(QString::fromLatin1(Description));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addOption(RegistryOption());
}

} // namespace

TCommandLine::TCommandLine(const QStringList& arguments) {
    QCommandLineParser parser;
    Setup(parser);
    // Unknown options may be the toolkit's own (-platform, -style); they are
    // checked once the application has taken those.
    parser.parse(arguments);
    if (parser.isSet(QStringLiteral("help")) || parser.isSet(QStringLiteral("help-all"))) {
        // No application object yet: the program's name is put in by hand.
        Print(stdout, parser.helpText().replace(QStringLiteral("<executable_name>"),
                                                QStringLiteral("zephyn")));
        FExitStatus = 0;
        return;
    }
    if (parser.isSet(QStringLiteral("version"))) {
        Print(stdout, QCoreApplication::applicationName() + u' ' +
                          QCoreApplication::applicationVersion() + u'\n');
        FExitStatus = 0;
        return;
    }
    if (!parser.isSet(QStringLiteral("registry"))) {
        if (arguments.contains(QStringLiteral("--registry"))) {
            Print(stderr, QStringLiteral("zephyn: --registry needs a path\n"));
            FExitStatus = UsageError;
        }
        return;
    }
    QString error;
    const QString path = parser.value(QStringLiteral("registry"));
    if (auto location = TRegistryLocation::Find(path, error)) {
        FRegistry = *location;
    } else {
        Print(stderr, QStringLiteral("zephyn: %1\n").arg(error));
        FExitStatus = UsageError;
    }
}

std::optional<int> TCommandLine::CheckLeftovers(const QStringList& arguments) {
    QCommandLineParser parser;
    Setup(parser);
    if (parser.parse(arguments) && parser.positionalArguments().isEmpty())
        return std::nullopt;
    const QString problem = parser.errorText().isEmpty()
                                ? QStringLiteral("unexpected argument: %1")
                                      .arg(parser.positionalArguments().join(u' '))
                                : parser.errorText();
    Print(stderr, QStringLiteral("zephyn: %1\nTry 'zephyn --help' for more information.\n")
                      .arg(problem));
    return UsageError;
}
