#!/bin/sh
# Puts each deliberate fault below into the source in turn, rebuilds, runs the tests that should
# notice it, reports which failed, and restores the file. Usage: tests/faults/faults.sh [ID...]
# Build trees must be configured first (native, sanitize, windows presets as a fault needs).
set -u
cd "$(dirname "$0")/../.."
log=build/faults.log
: >"$log"

# ID@preset@file@sed script@the mistake it stands for
faults() { cat <<'LIST'
detect-late@native@src/relay/message_detection.cpp@s/if (line.ends_with(kSaysSuffix)) break;/if (line.ends_with(kSaysSuffix)) { block += line; break; }/@detection cuts one line too late
title-14@native@src/relay/relay_engine.cpp@s/kTitleSuffixLength = 15/kTitleSuffixLength = 14/@list entry keeps one character of the title suffix
wide-rule@native@src/relay/messenger_window.cpp@s/if (first == 0) {/if (second == 0) {/@ANSI/wide entry-box rule flipped
half-up@native@src/present/simulated_typing.cpp@s/std::nearbyint(value)/std::floor(value + 0.5)/@half-to-even rounding replaced by half-up
fast-rate@native@src/present/simulated_typing.cpp@s/case Speed::Fast: charsPerSecondBase = 3.0/case Speed::Fast: charsPerSecondBase = 2.0/@fast typing at the medium rate
marker@native@src/present/typing_notice.cpp@s/replyText + kOwnLineMarker/replyText/@own-line marker not appended
notice-5@native@src/relay/reply_pipeline.cpp@s/% 5 != 0/% 5 == 0/@typing notice shown on multiples of 5
slot-ref@native@src/relay/reply_pipeline.cpp@s/        bot_.Ask(question, contact, \[this, slot\](std::wstring answer) {/        ConversationSlot\& held = conversations_[slot]; bot_.Ask(question, contact, [this, slot, \&held](std::wstring answer) {/;s/            if (Live(slot)) Deliver(slot, std::move(answer));/            if (Live(slot)) { held.ReplyText = answer; held.TypingTicks = 1; }/@the answer delivered through a slot reference taken when asking
closed@native@src/relay/relay_engine.cpp@s/            conversations_\[slot\].hWnd = 0;/            ;/@a vanished window keeps its slot, so its reply is still typed
two-asks@native@src/relay/reply_pipeline.cpp@s/DelayTicks == 1 \&\& requestOutstanding_/DelayTicks == 1 \&\& false/@a second request while one waits
short-drop@native@src/relay/reply_pipeline.cpp@s/if (typing.validSpeed \&\& ticks < 1 \&\& !reply.empty()) ticks = 1;//@a one-character reply at a valid speed dropped unsent
empty-sent@native@src/relay/reply_pipeline.cpp@s/ticks < 1 \&\& !reply.empty()/ticks < 1/;s/if (reply.empty()) ticks = 0;//@an empty reply sent as a lone marker
link-case@native@src/present/restyle.cpp@s#text.find(L"http://") == std::wstring::npos#true#@messy style lowers a link
canned@native@src/bot/bot_server.cpp@s/roll == 2/roll == 1/@canned-line thresholds off by one
lru@native@src/bot/built_in_bot.cpp@s/        recent_.splice(recent_.begin(), recent_, it->second);/        ;/@a contact heard from again is still forgotten first
one-memory@native@src/relay/reply_pipeline.cpp@s/const std::wstring contact = conversations_\[slot\].Contact;/const std::wstring contact;/@every contact shares one memory of the built-in bot
hex-case@native@src/bot/bot_server.cpp@s/0123456789ABCDEF/0123456789abcdef/@URL encoding in lower-case hex
settle@native@src/bot/page_fetcher.cpp@s/waiter_.Wait(nullptr, kSettleMs);/;/@500 ms settle skipped
status@native@src/bot/page_fetcher.cpp@s/response.status > 299/response.status > 399/@a 3xx page taken as an answer
utf8-meta@native@src/bot/page_fetcher.cpp@s/charset.empty()) {/false) {/@meta charset ignored
buffer@native@src/settings/settings.cpp@s/kReplyBufferSize = 255/kReplyBufferSize = 256/@settings values keep 255 characters
amp@native@src/bot/html_reader.cpp@s/entity = L"\&amp;"sv;/entity = L"\&"sv;/@& left unescaped, so an entity is decoded twice
zero-star@server@aiml/src/graph.cpp@s/to = pos + 1; to <= end \&\& search.shown\[to - 1\]/to = pos; to <= end \&\& (to == pos || search.shown[to - 1])/@a wildcard matches zero words
that-star@server@aiml/src/bot.cpp@s/Nth(context.stars.that, Index(node))/Nth(context.stars.pattern, Index(node))/@<thatstar/> reads the pattern's stars
first-wins@server@aiml/src/graph.cpp@s/nodes_\[node\].leaf = id;/if (before < 0) nodes_[node].leaf = id;/@a later category does not replace an earlier one of the same path
news-head@windows:MainFormTest.*News*@src/app/main_form_win32.cpp@s/CarriesNewsMarker(html::BodyInnerHtml(newsPage_))/CarriesNewsMarker(newsPage_)/@news marker looked for in the head
section@windows:OptionsDialogTest.*@src/settings/options_dialog_win32.cpp@s/save(kBotName, /save({kBotBehaviour, L"BotName", L""}, /@a key written to the wrong section
no-f3@windows:OptionsDialogTest.*@src/settings/options_dialog_win32.cpp@s/sys::ShowMessageBox(hwnd_, text, L"Quorvanel", MB_OK | MB_ICONEXCLAMATION);/(void)text;/@failed save not reported
body-cut@windows:WinInetTransport.ALarge*@src/bot/http_client_win32.cpp@s/kBodyLimit = 4 \* 1024 \* 1024/kBodyLimit = 64 * 1024 * 1024/@body not cut at 4 MiB
help-ro@windows:AboutAndHelp.*@src/app/help_window_win32.cpp@s/ | ES_READONLY, kText1/, kText1/@help text editable
tick@windows:MainFormTest.*BotRequest*@src/relay/conversation_list_win32.cpp@s/ListView_GetCheckState(list_, index) != 0/ListView_GetCheckState(list_, index) == 0/@conversation ticks read inverted
entry-data@windows:MainFormTest.*BotRequest*@src/relay/conversation_list_win32.cpp@s/return static_cast<WindowHandle>(item.lParam);/return 0;/@a list entry loses its window handle
twice@e2e:Replies.InstantReply*:Replies.AtMedium*@src/relay/reply_pipeline.cpp@s/^        SendReply(\(.*\));$/        SendReply(\1); SendReply(\1);/@a reply typed out twice
own-line@e2e:Replies.EachKind*@src/relay/relay_engine.cpp@s/if (message.empty() || message.back() == kOwnLineMarker) return;/if (message.empty()) return;/@a line ending in the marker answered
full-read@native@src/relay/relay_engine.cpp@s/if (turn % kFullReadEveryTicks != 0 \&\&/if (true \&\&/@a history that looks unchanged never read in full
head-skip@native@src/relay/relay_engine.cpp@s/turn % kHeadCheckEveryTicks == 0)/false)/@the start of a history never compared
control-len@native@src/relay/messenger_window.cpp@s/static_cast<std::size_t>(length) + 1)/static_cast<std::size_t>(length))/@a control's text read one character short
length-skip@native@src/relay/history_watch.cpp@s/windows.SendGetTextLengthW(stamp.box) != stamp.length/false/@a history's length not compared
time-out@windows:WinInetTransport.AServerThatNeverAnswers*@src/bot/page_fetcher.cpp@s/Wait(request.get(), kRequestLimitMs)/Wait(request.get(), kRequestLimitMs \/ 2)/@a request given up after 10 s
form-header@windows:WinInetTransport.GetAndPost*@src/bot/page_fetcher.cpp@s/client_.Start(codec_.ToAnsi(url), kFormHeader, /client_.Start(codec_.ToAnsi(url), "", /@a form posted without its content type
LIST
}

run() {  # preset: builds and runs that preset's tests, printing the names of failed tests
    case $1 in
    native|sanitize|server)
        tree=build/$1 tests="qv_core_tests qv_html_tests"
        [ "$1" = server ] && tree=build/native tests="qv_aiml_tests qvbot_tests"
        cmake --build $tree --target $tests -j2 >>"$log" 2>&1 || { echo BUILD-FAILED; return; }
        for t in $tests; do $tree/$t --gtest_brief=1 2>&1; done ;;
    windows:*)
        cmake --build build/windows --target qv_win32_tests -j2 >>"$log" 2>&1 || { echo BUILD-FAILED; return; }
        cmake/wine-run.sh "$PWD/build/windows/wineprefix" build/windows/qv_win32_tests.exe --gtest_brief=1 --gtest_filter="${1#windows:}" 2>&1 ;;
    e2e:*)
        cmake --build build/windows --target quorvanel qv_e2e_tests -j2 >>"$log" 2>&1 || { echo BUILD-FAILED; return; }
        cmake/wine-run.sh "$PWD/build/windows/wineprefix" build/windows/qv_e2e_tests.exe --gtest_brief=1 --gtest_filter="${1#e2e:}" 2>&1 ;;
    esac | tee -a "$log" | sed -n 's/^\[  FAILED  \] \([A-Za-z_/]*\.[A-Za-z_/0-9]*\).*/\1/p;/BUILD-FAILED\|AddressSanitizer\|runtime error/p' | sort -u | tr '\n' ' '
}

faults | while IFS='@' read -r id preset file script what; do
    [ $# -gt 0 ] && ! echo " $* " | grep -q " $id " && continue
    cp "$file" "$file.orig"
    sed -i "$script" "$file"
    if cmp -s "$file" "$file.orig"; then
        echo "$id: NOT APPLIED"
    else
        caught=$(run "$preset")
        echo "$id ($what): ${caught:-NOT CAUGHT}"
    fi
    mv "$file.orig" "$file"
    touch "$file"  # newer than the faulty build, so the next build takes it again
done
