#include "ui/framework/ProcessMessages.h"

#include <QCoreApplication>
#include <QEventLoop>

namespace {
int Depth = 0;

struct TDepthGuard {
    TDepthGuard() { ++Depth; }
    ~TDepthGuard() { --Depth; }
    TDepthGuard(const TDepthGuard&) = delete;
    TDepthGuard& operator=(const TDepthGuard&) = delete;
};
} // namespace

void ProcessMessages() {
    TDepthGuard guard;
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

bool InProcessMessages() {
    return Depth > 0;
}
