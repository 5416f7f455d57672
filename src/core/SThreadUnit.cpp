#include "SThreadUnit.h"

void SThread::Execute() {
    Search([this]() noexcept { return StopRequested(); });
}
