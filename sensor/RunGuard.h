// Marks a session busy for the length of one sequence.
#pragma once

namespace session {

class RunGuard {
  public:
    explicit RunGuard(bool& flag) : flag(flag), taken(!flag) { flag = true; }
    ~RunGuard() {
        if (taken) flag = false;
    }
    bool acquired() const { return taken; }

  private:
    bool& flag;
    bool taken;
};

}  // namespace session
