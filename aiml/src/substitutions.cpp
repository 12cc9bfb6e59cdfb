// The word tables of the normaliser and of person, person2 and gender.
#include "qvbot/text.h"

namespace qvbot {

const Substitutions& InputSubstitutions() {
    // Contractions spelled out, so a pattern needs one spelling; abbreviations lose their full
    // stop, so they do not end a sentence; chat spellings become words. Contractions typed
    // without the apostrophe ("whats") are left to the bot's own reductions.
    static const Substitutions table = {
        {"AREN'T", "are not"},   {"CAN'T", "can not"},     {"CANNOT", "can not"},
        {"COULDN'T", "could not"}, {"DIDN'T", "did not"},  {"DOESN'T", "does not"},
        {"DON'T", "do not"},     {"HADN'T", "had not"},    {"HASN'T", "has not"},
        {"HAVEN'T", "have not"}, {"HE'S", "he is"},        {"HOW'S", "how is"},
        {"I'D", "I would"},      {"I'LL", "I will"},       {"I'M", "I am"},
        {"I'VE", "I have"},      {"ISN'T", "is not"},      {"IT'S", "it is"},
        {"LET'S", "let us"},     {"SHE'S", "she is"},      {"SHOULDN'T", "should not"},
        {"THAT'S", "that is"},   {"THERE'S", "there is"},  {"THEY'RE", "they are"},
        {"WASN'T", "was not"},   {"WE'RE", "we are"},      {"WEREN'T", "were not"},
        {"WHAT'S", "what is"},        {"WHERE'S", "where is"},
        {"WHO'S", "who is"},     {"WHY'S", "why is"},      {"WON'T", "will not"},
        {"WOULDN'T", "would not"}, {"YOU'D", "you would"}, {"YOU'LL", "you will"},
        {"YOU'RE", "you are"},   {"YOU'VE", "you have"},   
                    
                     
        {"U", "you"},            {"UR", "your"},           {"R", "are"},
        {"PLZ", "please"},       {"PLS", "please"},        {"THX", "thanks"},
        {"THANX", "thanks"},     {"CUZ", "because"},       {"WANNA", "want to"},
        {"GONNA", "going to"},   {"GOTTA", "got to"},      {"KINDA", "kind of"},
        {"MR.", "Mr"},           {"MRS.", "Mrs"},          {"MS.", "Ms"},
        {"DR.", "Dr"},           {"E.G.", "for example"},
        {"I.E.", "that is"},     {"ETC.", "etc"},          {"VS.", "versus"},
        {"A.M.", "AM"},          {"P.M.", "PM"},
    };
    return table;
}

const Substitutions& PersonSubstitutions() {
    static const Substitutions table = {
        {"I", "he"},        {"ME", "him"},     {"MY", "his"},     {"MINE", "his"},
        {"MYSELF", "himself"}, {"I AM", "he is"}, {"I WAS", "he was"},
        {"HE", "I"},        {"HIM", "me"},     {"HIS", "my"},     {"HIMSELF", "myself"},
        {"HE IS", "I am"},  {"HE WAS", "I was"}, {"SHE", "I"},   {"SHE IS", "I am"},
    };
    return table;
}

const Substitutions& Person2Substitutions() {
    static const Substitutions table = {
        {"I", "you"},        {"ME", "you"},       {"MY", "your"},      {"MINE", "yours"},
        {"MYSELF", "yourself"}, {"I AM", "you are"}, {"I WAS", "you were"},
        {"AM I", "are you"}, {"WAS I", "were you"}, {"YOU", "I"},      {"YOUR", "my"},
        {"YOURS", "mine"},   {"YOURSELF", "myself"}, {"YOU ARE", "I am"},
        {"YOU WERE", "I was"}, {"ARE YOU", "am I"}, {"WERE YOU", "was I"},
        {"WITH YOU", "with me"}, {"TO YOU", "to me"}, {"FOR YOU", "for me"},
    };
    return table;
}

const Substitutions& GenderSubstitutions() {
    static const Substitutions table = {
        {"HE", "she"},   {"SHE", "he"},    {"HIM", "her"},   {"HER", "him"},
        {"HIS", "her"},  {"HERS", "his"},  {"HIMSELF", "herself"}, {"HERSELF", "himself"},
    };
    return table;
}

}  // namespace qvbot
