#pragma once
// The ID3v1 tag of the selected file: shown in the tag fields, saved from them.

#include <QStringList>
#include <functional>

class Form1;
struct Module1;

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
    // The reading part of List2_Click: shows the tag of currentFile.
    void readTag();
    void mnumoretags_Click();

private:
    Module1 &m;
    Form1 &f;
    std::function<QString()> openFile;
};
