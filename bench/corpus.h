#pragma once
// The collection a benchmark measures: the one named on its command line, else the poem
// corpus beside the repository (or beside the folder of work trees).
#include <QFileInfo>
#include <QString>

#include <cstdio>
#include <string>

namespace bench {

inline std::string defaultCorpus()
{
    const std::string beside = MORVESSA_DEFAULT_CORPUS;
    return QFileInfo::exists(QString::fromStdString(beside)) ? beside : std::string(MORVESSA_DEFAULT_CORPUS_2);
}

// Makes path absolute; false, after saying so, when there is nothing to measure.
inline bool findCollection(std::string &path)
{
    if (!QFileInfo::exists(QString::fromStdString(path))) {
        std::printf("Collection %s not found: the benchmark needs the 311,855-record poems.mdb "
                    "(or a path given as argument). Nothing measured.\n",
                    path.c_str());
        return false;
    }
    path = QFileInfo(QString::fromStdString(path)).absoluteFilePath().toStdString();
    return true;
}

} // namespace bench
