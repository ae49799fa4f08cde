#pragma once
// The file browser, the type filter and the playlist box's bookkeeping.

#include <QStringList>
#include <cstdint>

class App;

class Playlist {
public:
    explicit Playlist(App &app) : app(app) {}

    // The file-type table: row 0 a caption, rows 1-10 ";"-separated wildcard patterns.
    static QStringList fileTypesTable();

    // Start-up: fill fileTypes and Combo2, choose row 10.
    void fillFileTypes();

    void Combo2_Click();
    void Dir1_change();
    void Drive1_Change();
    void SizeList(int16_t list);
    void DesSubs();
    void Command1_Click();

    // Setting these controls from code runs their change handling, in that order.
    void setCombo2Index(int row);
    bool setDrive(const QString &drive);
    bool setDirPath(const QString &folder);

private:
    App &app;
};
