#pragma once

#include <QtCore/QStringList>
#include <QtCore/QtGlobal>

// Collects debug lines while alive, so tests can compare the log exactly.
class LogCapture
{
public:
    LogCapture() : previous_(qInstallMessageHandler(&LogCapture::handler)) { active() = this; }
    ~LogCapture()
    {
        qInstallMessageHandler(previous_);
        active() = nullptr;
    }
    QStringList take()
    {
        QStringList out;
        out.swap(lines_);
        return out;
    }

private:
    static LogCapture *&active()
    {
        static LogCapture *current = nullptr;
        return current;
    }
    static void handler(QtMsgType type, const QMessageLogContext &, const QString &text)
    {
        if (type == QtDebugMsg && active())
            active()->lines_ << text;
    }
    QtMessageHandler previous_;
    QStringList lines_;
};
