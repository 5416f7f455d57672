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
// The program's folder for the run lock, the same for every process of this user whatever its
// session (a cron job or a desktop, sudo keeping HOME or not): $XDG_STATE_HOME/morvel, else
// .local/state/morvel in the password database's home (not $HOME), when it is this user's and
// no one else may write in it (made when missing); else morvel-<uid> in the temporary folder
// unless another user took it or may write in it (made 0700 when missing). Throws
// std::runtime_error naming each problem when neither can be used.
QString LockFolder();
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
