#pragma once

#include <QtCore/QStringList>

#include <utility>

// Collects debug lines while alive, so tests can compare the log exactly.
class LogCapture
{
public:
    LogCapture() { active = this; }
    ~LogCapture() { qInstallMessageHandler(previous_), active = nullptr; }
    QStringList take() { return std::exchange(lines_, {}); }

private:
    static inline LogCapture *active = nullptr;
    QStringList lines_;
    const QtMessageHandler previous_ = qInstallMessageHandler([](QtMsgType type, const QMessageLogContext &, const QString &text) {
        if (type == QtDebugMsg && active)
            active->lines_ << text;
    });
};
