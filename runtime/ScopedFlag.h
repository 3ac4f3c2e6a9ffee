#pragma once

// Sets a flag for the lifetime of the scope and clears it on every way out.
class TScopedFlag {
public:
    explicit TScopedFlag(bool& flag) : FFlag(flag) { FFlag = true; }
    ~TScopedFlag() { FFlag = false; }
    TScopedFlag(const TScopedFlag&) = delete;
    TScopedFlag& operator=(const TScopedFlag&) = delete;

private:
    bool& FFlag;
};
