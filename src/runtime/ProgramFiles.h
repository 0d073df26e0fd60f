#pragma once
// The program's own files: its directory and whether a file is there.

#include <QString>

// The program's directory, always ending in exactly one "/"; formed afresh on each call.
QString Programmpfad();

// Appends "/" unless the path already ends in one (the root "/" stays as it is).
QString withTrailingSeparator(const QString &dir);

// True when the file system holds an entry of any kind at path; false for a name that is
// not there, that cannot be searched, or the empty string.
bool DateiVorhanden(const QString &path);
