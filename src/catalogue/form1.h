// The main window as the procedures see it: its controls and the services
// of the run. The Qt window (gui/mainwindow.h) owns the widgets and routes
// their events to the procedures declared here and in operations/commands.h.
//
// Flow: the window is created hidden; Form_Load discovers the databases of
// both editions, fills lvFiles (LoadListView, GetRecordCount), sizes the
// columns and runs lvFiles_Click for the first row; then the window shows.
// A change of the selected row runs lvFiles_Click, which enables Restore for
// a backup row and Create Blank for a "(Current)" row. The two commands run
// Form_Load again after replacing a live database.
#pragma once

#include <cstdint>
#include <string>

#include "common/services.h"
#include "ports/listview.h"

namespace catalogue {

struct Form1 {
    common::Services& sys;
    ports::ListView& lvFiles;
    ports::Button& cmdRestore;
    ports::Button& cmdMakeBlank;
    ports::Button& cmdCancel;
};

// Discovery: empties and refills the catalogue from what is on disk.
void Form_Load(Form1& form);

// Adds the catalogue row for FileName when a file exists there.
void LoadListView(Form1& form, const std::string& Caption, const std::string& FileName,
                  const std::string& Version);

// Rows of table roof in the database at FileName; 0 when it cannot be read.
int32_t GetRecordCount(Form1& form, const std::string& FileName);

// Sets the two commands' enabled flags for the selected row.
void lvFiles_Click(Form1& form);

// Cancel and Esc: ends the program at once.
void cmdCancel_Click(Form1& form);

}  // namespace catalogue

namespace catalogue {

// The index of the selected row; 91 when no row is selected, as reading a
// member of an absent SelectedItem fails.
int SelectedItem(Form1& form);

}  // namespace catalogue
