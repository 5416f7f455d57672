// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Morvel developers

#include "SThreadUnit.h"
#include "TAllKernel.h"
#include "TCompressKernel.h"
#include "TCryptoKernel.h"
#include "TFmaKernel.h"
#include "THandoffKernel.h"
#include "TMatrixKernel.h"
#include "TMemoryKernel.h"
#include "TMixKernel.h"
#include "TWorkload.h"

#include <cstring>

namespace Workloads {

namespace {

// The workloads, the default first: adding one is one line here.
std::vector<TWorkloadKind>& Table() {
    static std::vector<TWorkloadKind> table{
        &DivideWorkload, &FmaWorkload,    &MemoryWorkload,  &MixWorkload, &CompressWorkload,
        &CryptoWorkload, &MatrixWorkload, &HandoffWorkload, &AllWorkload,
    };
    return table;
}

} // namespace

std::span<const TWorkloadKind> All() noexcept {
    return Table();
}

TWorkloadKind Default() noexcept {
    return Table().front();
}

std::optional<TWorkloadKind> Find(const char* name) noexcept {
    for (const TWorkloadKind kind : Table()) {
        if (std::strcmp(name, kind->Name) == 0) {
            return kind;
        }
    }
    return std::nullopt;
}

void Register(const TWorkloadEntry& entry) {
    if (!Find(entry.Name)) {
        Table().push_back(&entry);
    }
}

TFault BlockFault(TFault::TKind kind, int workers) noexcept {
    TFault fault;
    fault.Kind = kind;
    fault.EveryBlock = workers == 1;
    fault.AtBlock = workers == 1 ? 0 : 1;
    return fault;
}

std::int64_t FaultyBlock(const TFault& fault, const TWorkload&) noexcept {
    return fault.AtBlock;
}

} // namespace Workloads
