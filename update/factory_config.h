// Preserving the controller's factory configuration across an update: the
// save step (FeedConfig1, the factory page, the personality file, or a
// personality file loaded instead), the /r switch, and the restore step that
// merges the saved page into the new image in memory before it is
// programmed.
#pragma once

namespace padflash {

struct Session;

// Session step 9 as a whole: save or load when there is a configuration to
// preserve, apply the saveFlashConfig switch, restore when a configuration is
// ready. False ends the session (UpdateResult and retryAdvised set); nothing
// has been sent to the bootloader by then.
bool PreserveFactoryConfig(Session& session);

// The save step, including the switch test (factory_save.cpp). False ends
// the session.
bool SaveFactoryConfig(Session& session);
// The switch test: with /r the personality file of this controller is
// dropped and nothing is restored.
void ApplySaveSwitch(Session& session);

// The restore step: the image's factory page becomes the device's comp table
// and the new firmware's structure with the device's values the
// configuration instructions name. False ends the session.
bool RestoreFactoryConfig(Session& session);

}  // namespace padflash
