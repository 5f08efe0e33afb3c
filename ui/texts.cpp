#include "ui/texts.h"

#include "platform/cp1252.h"

namespace {

// The tables are written in UTF-8 here and held in code page 1252.
std::string T(const char* utf8) {
  return Utf8ToCp1252(utf8);
}

PromptTexts Prompt(const char* caption, const char* label1, const char* label2, const char* label3,
                   const char* button1, const char* button2, int label3Top) {
  return {T(caption), T(label1), T(label2), T(label3), T(button1), T(button2), label3Top};
}

const LanguageTexts& German() {
  static const LanguageTexts texts{
      {T("orbilex installieren/updaten"), T("orbilex Handbuch anzeigen"), T("Update Tarvex"),
       T("Update Großanzeige"), T("Acrobat Reader installieren"), T("Beenden"),
       T("Update Röntgengerät"), T("Update Betriebsgerät Franck-Hertz"), T("English")},
      Prompt("Veraltete Tarvex Version gefunden",
             "Es wurde ein angeschlossenes Tarvex Interface erkannt, dass eine veraltete Version "
             "der Firmware verwendet. ",
             "Es wird dringend empfohlen, die Firmware durch ein Update zu aktualisieren. Ohne ein "
             "Update kann kein fehlerfreier Betrieb des Interfaces gewährleistet werden.",
             "Möchten Sie das Tarvex Interface jetzt aktualisieren?", "Update durchführen",
             "Ignorieren", 90),
      Prompt("Veraltete Firmware des Röntgengerätes gefunden",
             "Es wurde ein angeschlossenes Röntgengerät erkannt, das über eine veraltete Version "
             "der Firmware verfügt.",
             "Es wird dringend empfohlen, die Firmware durch ein Update zu aktualisieren. Ohne ein "
             "Update kann kein fehlerfreier Betrieb des Röntgengerätes gewährleistet werden.",
             "Möchten Sie das Röntgengerät jetzt aktualisieren?", "Update durchführen",
             "Ignorieren", 90)};
  return texts;
}

const LanguageTexts& English() {
  static const LanguageTexts texts{
      {T("Install or update orbilex"), T("View the orbilex manual"), T("Update Tarvex"),
       T("Update KORVA Display"), T("Install the Acrobat Reader"), T("Exit"),
       T("Update X-ray device"), T("Update Control Unit Franck-Hertz"), T("Deutsch")},
      Prompt("Out-of-date Tarvex version detected",
             "A connected Tarvex interface has been detected, which uses an out-of-date version of "
             "the Tarvex firmware.",
             "We strongly recommend to update the firmware of your interface. If you do not update "
             "it, problems might occur while working.",
             "Would you like to update your Tarvex interface now?", "Update Tarvex now", "Ignore",
             78),
      Prompt("Out-of-date x-ray device firmware detected",
             "A connected x-ray device has been detected, which uses an out-of-date version of the "
             "device's firmware.",
             "We strongly recommend to update the firmware of your x-ray device. If you do not "
             "update it, problems might occur while working.",
             "Would you like to update your x-ray device now?", "Update device now", "Ignore", 78)};
  return texts;
}

}  // namespace

const LanguageTexts& TextsFor(bool english) {
  return english ? English() : German();
}

const PromptTexts& InitialVXTexts() {
  static const PromptTexts texts = Prompt(
      "VXUpdateForm",
      "Es wurde ein angeschlossenes Tarvex Interface erkannt, das über eine veraltete Version der "
      "Firmware verfügt. ",
      "Es wird dringend empfohlen, die Firmware durch ein Update zu aktualisieren. Ohne ein Update "
      "kann kein fehlerfreier Betrieb des Interfaces gewährleistet werden.",
      "Möchten Sie das Tarvex Interface jetzt aktualisieren?", "Update durchführen", "Fortfahren",
      78);
  return texts;
}

const PromptTexts& InitialRTGTexts() {
  static const PromptTexts texts = Prompt(
      "RTGUpdateForm",
      "Es wurde ein angeschlossenes Röntgengerät erkannt, das über eine veraltete Version der "
      "Firmware verfügt. ",
      "Es wird dringend empfohlen, die Firmware durch ein Update zu aktualisieren. Ohne ein Update "
      "kann kein fehlerfreier Betrieb des Röntgengerätes gewährleistet werden.",
      "Möchten Sie das Röntgengerät jetzt aktualisieren?", "Update durchführen", "Fortfahren", 78);
  return texts;
}
