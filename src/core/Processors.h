#pragma once

// The logical processors this process may run on (its affinity mask), at least 1.
int UsableProcessors() noexcept;
