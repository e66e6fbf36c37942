#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// Realistic sets of entry names, each as one writer would have stored them:
// the code page it used and whether it was an MS-DOS or Windows zip tool.
struct NameSample {
    QString label;
    QString codePage; // encoding name the names are written in
    bool fromWindows = true;
    QStringList names;
    // Guards against detection growing timid: these sets carry enough
    // evidence to be settled without asking.
    bool expectConfident = false;
};

QList<NameSample> nameSamples();
