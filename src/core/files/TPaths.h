// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Morvel developers

#pragma once

#include <QString>

// Where the program keeps its files, by the XDG base-directory rules: a variable that is unset,
// empty or not an absolute path is ignored; the home folder is $HOME, else the password
// database's. A value whose bytes would not survive as a path (not UTF-8) counts as unset:
// nothing is ever written under another name than the one given.
namespace TPaths {

QString Home();
// $XDG_DATA_HOME, else ~/.local/share.
QString DataHome();
// $XDG_STATE_HOME, else ~/.local/state.
QString StateHome();
// The program's folder for locks, one only this user may enter (owned, mode 0700), made when
// missing: $XDG_RUNTIME_DIR/morvel when $XDG_RUNTIME_DIR is such a folder (it is never made
// here), else morvel-<uid> in the temporary folder unless another user took it, else
// StateFolder()/runtime. Throws std::runtime_error naming each problem when none can be used.
QString RuntimeFolder();
// The program's folder for the run journal and emergency copies: StateHome()/morvel. Not made.
QString StateFolder();
// DataHome()/morvel/MorvelReport.dat.
QString ReportFile();
// What a file path stands for, whichever way it is written: the real path of the deepest folder
// on the way that exists (links followed, "." and ".." and repeated slashes gone), with the rest
// of the path and the file's name as written. Two paths to one file in one folder give the same.
QString Identity(const QString& path);
// A short name for a file made from its Identity(): 32 hexadecimal digits.
QString IdentityKey(const QString& path);

} // namespace TPaths
