// The product's version: one place for the version resources of the setup
// program and the screen saver, for the version the Apps list shows, and for
// the winget manifest (tools/winget).
#pragma once
#define ZELTO_VERSION_BINARY 2, 0, 0, 0
#define ZELTO_VERSION_TEXT "2.0"
#define ZELTO_PUBLISHER "Ostrell Zuvak"
#define ZELTO_PRODUCT_NAME "Zelto 2000"
#define ZELTO_DESCRIPTION "Zelto 2000 Setup"
#define ZELTO_COPYRIGHT "Copyright (c) 2000 Ostrell Zuvak"
// The name the Apps list shows, and the name of the product's key under
// "Uninstall" (its product code for deployment tools).
#define ZELTO_DISPLAY_NAME "Zelto 2000 ScreenSaver"
#define ZELTO_PRODUCT_CODE "Zelto2000"
