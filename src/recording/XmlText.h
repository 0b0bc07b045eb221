// Text as XML carries it, shared by the xmeml and FCPXML writers.
#pragma once

#include <QString>

// Element content and attribute values: & < > " are escaped, so a session called
// "Tom & Jerry" still imports; characters XML 1.0 cannot carry even escaped (control
// characters other than tab, line feed and carriage return, lone surrogates, U+FFFE, U+FFFF)
// become U+FFFD.
QString xmlText(const QString &text);
