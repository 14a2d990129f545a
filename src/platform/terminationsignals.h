#pragma once
// SIGTERM, SIGHUP and SIGINT reach the event loop as a Qt signal: the handler
// only writes the signal's number into a pipe (all a handler may safely do),
// and a socket notifier on the other end emits `received` in the window's
// thread, where the program can keep what it must and end cleanly.

#include <QObject>

class QSocketNotifier;

class TerminationSignals : public QObject {
    Q_OBJECT
public:
    explicit TerminationSignals(QObject *parent = nullptr);
    ~TerminationSignals() override;

signals:
    void received(int signalNumber);

private:
    void readPipe();
    QSocketNotifier *m_notifier = nullptr;
};
