#pragma once
// The ID3v1 tag of the selected file: shown in the tag fields, saved from them.

#include <QStringList>

class App;

class Tags {
public:
    explicit Tags(App &app)
        : app(app)
    {
    }

    static QStringList genreTable();
    // Start-up: fill genres and Combo1.
    void fillGenres();
    // The reading part of List2_Click: shows the tag of currentFile.
    void readTag();
    void mnumoretags_Click();

private:
    App &app;
};
