#pragma once
// The ID3v1 tag of the selected file: shown in the tag fields, saved from them.

#include <QObject>
#include <QStringList>
#include <functional>

class Form1;
struct Module1;
namespace id3v1 {
struct Fields;
}

class Tags {
public:
    // openFile: the file the main player has open, which is not written to.
    Tags(Module1 &m, Form1 &f, std::function<QString()> openFile)
        : m(m)
        , f(f)
        , openFile(std::move(openFile))
    {
    }

    static QStringList genreTable();
    // Start-up: fill genres and Combo1.
    void fillGenres();
    // The reading part of List2_Click: shows the tag of currentFile, at once from a fast
    // disk, otherwise when the read returns.
    void readTag();
    void mnumoretags_Click();

private:
    Module1 &m;
    Form1 &f;
    std::function<QString()> openFile;
    // Reads still running when Tags goes deliver nowhere.
    QObject inbox;
    quint64 reads = 0;

    void showTag(const id3v1::Fields &tag);
};
