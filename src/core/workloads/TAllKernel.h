// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Morvel developers

#pragma once

#include "TBlockKernel.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

struct TWorkloadEntry;

// Every workload with a kernel of its own in turn, block by block: block b is block b / n of the
// (b mod n)-th of the n workloads that take part, in the table's order. Each kernel is made
// once, with its own state (a memory worker's buffer, say), and keeps it between its turns.
class TAllKernel {
public:
    explicit TAllKernel(std::vector<std::unique_ptr<TBlockKernel>> kernels)
        : parts(std::move(kernels)) {}

    template <class Progress>
    std::optional<std::uint64_t> Run(std::int64_t block, Progress& progress) {
        TProgressOf<Progress> told(progress);
        const auto n = static_cast<std::int64_t>(parts.size());
        return parts[static_cast<std::size_t>(block % n)]->Run(block / n, told);
    }

    // The workloads that take part, in turn.
    static std::vector<const TWorkloadEntry*> Parts();

private:
    std::vector<std::unique_ptr<TBlockKernel>> parts;
};

// Every workload in turn in the table of workloads.
extern const TWorkloadEntry AllWorkload;
