// widget/stop_signals.h - the widget ends cleanly when the session stops it (SIGTERM, SIGHUP,
// or SIGINT at a terminal), so that its private folder of thumbnail copies goes with it
// instead of staying behind in the temporary folder after every session.
#pragma once

#include <QCoreApplication>

namespace nolt::widget {

// From now on, those signals make `app`'s event loop return; call once, before exec().
// A handler rather than platform::watchStopSignals: the signals it blocks would stay blocked in
// the programs the widget opens through QProcess.
void quitOnStopSignals(QCoreApplication& app);

}  // namespace nolt::widget
