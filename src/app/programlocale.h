#pragma once
// The program speaks Russian whatever the system's locale: its own texts, Qt's dialogs (their
// column names, dates and sizes) and the default locale of every number and date it formats.
// Numbers and characters the C library handles keep the system's setting, so that nothing the
// program writes to files changes with this.

// Before the application object exists (Qt reads the locale from the environment then): the
// environment's time and message locale becomes Russian; a system-wide LC_ALL is kept for the
// character set and numbers only.
void prepareRussianEnvironment();
// After the application object exists: Russian is the default locale.
void useRussianLocale();
