// The product's version: one place for the version resources of the setup
// program and the screen saver, and for the version the Apps list shows.
#pragma once
#define ZELTO_VERSION_BINARY 2, 0, 0, 0
#define ZELTO_VERSION_TEXT "2.0"
#define ZELTO_PUBLISHER "Ostrell Zuvak"
