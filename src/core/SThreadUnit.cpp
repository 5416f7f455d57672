#include "SThreadUnit.h"

void SThread::Execute() {
    Search([this]() noexcept { return TThread::StopRequested(); });
}
