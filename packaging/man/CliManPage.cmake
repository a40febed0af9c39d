# Writes driftwell-cli(1) with help2man from the program's help: the top level
# as help2man reads it, and each command's own --help as a section of its own.
#   cmake -DHELP2MAN=... -DCLI=driftwell-cli -DOUT=driftwell-cli.1 -P CliManPage.cmake
set(_include "${OUT}.h2m")
set(_text "[COMMANDS]\n")
foreach(cmd render new info)
  execute_process(COMMAND "${CLI}" ${cmd} --help OUTPUT_VARIABLE _help RESULT_VARIABLE _rc)
  if(NOT _rc EQUAL 0)
    message(FATAL_ERROR "${CLI} ${cmd} --help failed (${_rc})")
  endif()
  # As preformatted roff: backslashes escaped, and no line may start with a
  # control character.
  string(REPLACE "\\" "\\e" _help "${_help}")
  string(REGEX REPLACE "(^|\n)([.'])" "\\1\\\\&\\2" _help "${_help}")
  string(APPEND _text ".SS \"driftwell\\-cli ${cmd}\"\n.nf\n${_help}.fi\n")
endforeach()
string(APPEND _text "[CHAINS OF VARIATIONS]\n"
  "With \\fB\\-\\-duration\\fR longer than a piece (seconds, h:mm:ss, 90m or 8h), render writes a chain of "
  "pieces of the project's length, each created with its own seed and joined to the next by an equal-power "
  "crossfade (\\fB\\-\\-crossfade\\fR, 30 s, at most half a piece), all brought to one loudness "
  "(\\fB\\-\\-loudness\\fR, \\-16 LUFS for a chain). Piece 0 keeps the seed; piece k takes the low 32 bits "
  "of splitmix64((seed << 32) | k). \\fB\\-\\-from\\fR starts anywhere with the same samples as the whole "
  "chain; \\fB\\-\\-plan\\fR lists every piece. FLAC, Ogg and Opus carry a chapter mark per piece "
  "(CHAPTER001=00:00:00.000, CHAPTER001NAME with its seed). Memory stays at about two pieces. "
  "\\fB\\-\\-endless\\fR writes to standard output, a FIFO or a device until SIGINT (130) or SIGTERM (143), "
  "or until the reader closes the pipe (0). A WAV over 4 GiB is written as RF64.\n")
string(APPEND _text "[SEE ALSO]\n.BR driftwell (1),\nthe desktop program, and the user's guide in\n"
  ".IR \"share/driftwell/Driftwell \\- User's Guide.pdf\" .\n")
file(WRITE "${_include}" "${_text}")
execute_process(
  COMMAND "${HELP2MAN}" --no-info --no-discard-stderr --section=1
          "--name=render long ambient pieces from one recording"
          "--include=${_include}" "--output=${OUT}" "${CLI}"
  RESULT_VARIABLE _rc)
file(REMOVE "${_include}")
if(NOT _rc EQUAL 0)
  message(FATAL_ERROR "help2man failed for ${CLI} (${_rc})")
endif()
