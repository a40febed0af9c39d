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
