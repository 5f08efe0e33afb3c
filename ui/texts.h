// The built-in texts of the three windows in German and English, code page
// 1252.
#pragma once

#include <string>

struct MenuTexts {
  std::string Menu1, Menu2, Menu3, Menu4, Menu5, Menu6, Menu7, Menu8, SpracheLabel;
};

struct PromptTexts {
  std::string Caption, Label1, Label2, Label3, Button1, Button2;
  int Label3Top = 0;
};

struct LanguageTexts {
  MenuTexts Menu;
  PromptTexts VXPrompt;
  PromptTexts RTGPrompt;
};

const LanguageTexts& TextsFor(bool english);
// The texts the prompts carry before the language is first applied.
const PromptTexts& InitialVXTexts();
const PromptTexts& InitialRTGTexts();
