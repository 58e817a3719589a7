#pragma once
// Every text the wizard shows, letter for letter, in UTF-8. Lines of the text blocks keep their
// trailing blanks; the "ОК" of the state labels is Cyrillic, the "OK" of the Next button Latin.
#include <span>

namespace ostrel::texts {

using Lines = std::span<const char* const>;

inline constexpr char kReleaseName[] = "v2.2.5";
inline constexpr char kModelSuffix[] = " R27";
inline constexpr char kVersionPrefix[] = "версия: ";
inline constexpr char kDateLine[] = "дата: 11.11.2012";
// Lines 6 and 7 (indices 5 and 6) of the version block are filled in when the window is created.
inline constexpr int kVersionLineIndex = 5;
inline constexpr int kDateLineIndex = 6;

inline constexpr char kCancel[] = "Отмена";
inline constexpr char kBack[] = "Назад";
inline constexpr char kNext[] = "Далее";
inline constexpr char kFinish[] = "OK";
// Why the wizard asks Windows not to end the session while it writes the tracker.
inline constexpr char kSessionEndRefused[] =
    "Идёт запись прошивки в трекер. Не выключайте компьютер, пока обновление не завершится.";
inline constexpr char kConnection[] = "СОЕДИНЕНИЕ:";
inline constexpr char kConnected[] = "УСТАНОВЛЕНО";
inline constexpr char kNotConnected[] = "НЕ УСТАНОВЛЕНО";
inline constexpr char kConnect[] = "Соединение";
inline constexpr char kKeepUser[] = "Сохранить пользовательские настройки";
inline constexpr char kWriteTitle[] = "ЗАГРУЗКА:";
inline constexpr char kVerifyTitle[] = "ПРОВЕРКА:";
inline constexpr char kExchange[] = "ОБМЕН";
inline constexpr char kStateOK[] = "ОК";
inline constexpr char kStateError[] = "ОШИБКА!!!";
// What a screen reader says for the check mark and the cross, which show no letters.
inline constexpr char kCheckMarkName[] = "успешно";
inline constexpr char kCrossMarkName[] = "ошибка";

Lines VersionBlock();
Lines WelcomeText();
Lines PreparationSteps();
Lines ConnectionHint();
Lines SettingsNote();
Lines SuccessNote();
Lines FailureNote();
Lines ClosingText();

}  // namespace ostrel::texts
