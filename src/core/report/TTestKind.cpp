// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Morvel developers

#include "TTestKind.h"

const std::vector<TTestPlan::TDuration>& TTestPlan::Durations() {
    static const std::vector<TDuration> durations = [] {
        const char* const texts[] = {
            "20min",  "40min",  "60min (1hrs)",  "80min",  "100min", "120min (2hrs)",
            "140min", "160min", "180min (3hrs)", "200min", "220min", "240min (4hrs)"};
        std::vector<TDuration> list;
        int index = 0;
        for (const char* text : texts) {
            list.push_back({QString::fromLatin1(text), (index + 1) * 20, StressTicks(index)});
            ++index;
        }
        return list;
    }();
    return durations;
}
