#pragma once
// The error type every component throws: it carries the user-facing message text.

#include <QString>
#include <stdexcept>

class QuvarError : public std::runtime_error {
public:
    explicit QuvarError(const QString& message)
        : std::runtime_error(message.toStdString()), message_(message) {}
    const QString& message() const { return message_; }

private:
    QString message_;
};

// The message of any exception, for the error box.
QString ErrorMessage(const std::exception& error);
