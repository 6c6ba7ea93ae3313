#pragma once

#include <chrono>
#include <istream>
#include <ostream>
#include <string>

namespace gamesim {

class GameSimulator;

// Runs a simulator script, one command per line ('#' starts a comment):
//   connect [index]                  first free name, or name <index>
//   attach <game id>                 connect when needed, then ATTACH
//   send <NAME> [field=value ...]    a hook-to-client message; values are
//                                    numbers or text ("quoted" for spaces);
//                                    a bytes field takes @<count>
//   expect <NAME> [field=value ...]  the next message must match
//   await <NAME> [field=value ...]   like expect, after any other messages
//   recv                             prints the next message
//   login <account> <password> [remember] [auto_login]
//   ticket-login <ticket> | request-login | logout | nickname
//   post <"text"> [image path]       an empty text is ""
//   new-image <kind> [image path] | open-url <which>
//   setting <kind> <value>           SYSTEMCONFIG; game-setting: GAMECONFIG
//   handshake                        expects exactly WELCOME, [LOGIN,
//                                    USERINFO,] SYSTEMCONFIG, GAMECONFIG,
//                                    CONFIGOK, DATAPROMPT (a SERVERTIME
//                                    that may follow is left to `expect`)
//   video <invitation> <w> <h> <count>
//   raw <hex bytes>                  sent as they are, without a frame
//   detach | close | expect-closed
// Every received message is printed to `out`. False at the first failed
// command, with the reason in `*error`.
bool RunScript(GameSimulator& simulator, std::istream& script, std::ostream& out,
               std::chrono::milliseconds timeout, std::string* error);

}  // namespace gamesim
