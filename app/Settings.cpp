#include "app/Settings.h"

#include "comm/uCommDispatcher.h"
#include "comm/uCommKestro.h"

void ApplySettings(TCommDispatcher& channel, TCommKestro& engine, const TSettings& settings) {
    engine.Timeout = settings.Timeout;
    channel.SetPort(settings.ComPort);
    channel.SetBaudRate(settings.BaudRate);
    channel.Open();
}
