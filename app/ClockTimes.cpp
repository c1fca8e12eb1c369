#include "app/ClockTimes.h"

session::ClockTime clockTimeOf(const QDateTime& t) {
    return session::ClockTime{t.date().year(),
                              t.date().month(),
                              t.date().day(),
                              t.time().hour(),
                              t.time().minute(),
                              t.time().second(),
                              0};
}
