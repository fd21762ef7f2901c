// The pages' style sheets and scripts, each a file of its own beside this
// one, compiled in at build time (lumenfold/CMakeLists.txt lists them) so
// that every page still carries everything it needs.
#pragma once

const char* reportPageStyle();     // report_page.css
const char* reportPageScript();    // report_page.js
const char* historyPageStyle();    // history_page.css
const char* historyPageScript();   // history_page.js
const char* validationPageStyle(); // validation_page.css
const char* dashboardStyle();        // dashboard.css
const char* dashboardSeriesScript(); // dashboard_series.js
