// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Morvel developers

#pragma once

// The main() of a test of the window: the user's data folder is a scratch one, set before
// anything asks for it, and the application is the program's own.
#include "TApplication.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#define MORVEL_GUI_TEST_MAIN(TestClass)                                                            \
    int main(int argc, char** argv) {                                                              \
        QTemporaryDir home;                                                                        \
        qputenv("XDG_DATA_HOME", QFile::encodeName(home.path()));                                  \
        TApplication application(argc, argv);                                                      \
        TestClass test;                                                                            \
        return QTest::qExec(&test, argc, argv);                                                    \
    }
