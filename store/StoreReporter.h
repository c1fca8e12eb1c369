// How the store tells its user about failures it cannot return: the
// application connects this to its message panel; tests record the calls.
#pragma once

#include <string>

class StoreReporter {
  public:
    virtual ~StoreReporter() = default;
    virtual void storeMessage(const std::string& message, const std::string& title) = 0;
};
