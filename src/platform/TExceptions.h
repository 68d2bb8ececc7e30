#pragma once
#include <QString>
#include <exception>

// Failures the program raises itself carry their message text, like the
// message boxes and the error log show it.
class Exception : public std::exception {
public:
    explicit Exception(const QString& message) : FMessage(message), FUtf8(message.toUtf8()) {}
    const QString& Message() const { return FMessage; }
    const char* what() const noexcept override { return FUtf8.constData(); }

private:
    QString FMessage;
    QByteArray FUtf8;
};

class EConvertError : public Exception {
    using Exception::Exception;
};

class ERegistryException : public Exception {
    using Exception::Exception;
};

class EWinSockError : public Exception {
    using Exception::Exception;
};

// The message of any exception, as the user or the log sees it.
QString ExceptionMessage(const std::exception& e);
