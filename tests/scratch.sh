# SPDX-License-Identifier: GPL-3.0-or-later
# SPDX-FileCopyrightText: 2026 The Morvel developers

# Sourced by the shell tests: a scratch folder in $work, removed when the test exits however it
# ends. A test that has more to tidy defines `cleanup`, which runs first with the exit status.
work=$(mktemp -d)
scratch_exit() {
    local status=$?
    if declare -F cleanup >/dev/null; then
        cleanup "$status" || true
    fi
    rm -rf "$work"
    exit "$status"
}
trap scratch_exit EXIT
