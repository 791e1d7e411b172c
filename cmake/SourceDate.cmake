# Dates for reproducible builds: days since 1970 in plain integer arithmetic (CMake can
# format the time but not parse it).

# date_to_epoch(YYYY-MM-DD VAR): the seconds from 1970-01-01 to that day's midnight, UTC.
function(date_to_epoch date var)
  string(REGEX MATCH "^([0-9]+)-0*([0-9]+)-0*([0-9]+)$" ok "${date}")
  if(NOT ok)
    message(FATAL_ERROR "not a date: ${date}")
  endif()
  set(y ${CMAKE_MATCH_1})
  set(m ${CMAKE_MATCH_2})
  set(d ${CMAKE_MATCH_3})
  if(m LESS_EQUAL 2)  # the year counted from March, so that February's length comes last
    math(EXPR y "${y} - 1")
    math(EXPR m "${m} + 9")
  else()
    math(EXPR m "${m} - 3")
  endif()
  math(EXPR days "${y} * 365 + ${y} / 4 - ${y} / 100 + ${y} / 400 + (153 * ${m} + 2) / 5
                  + ${d} - 1 - 719468")
  math(EXPR seconds "${days} * 86400")
  set(${var} ${seconds} PARENT_SCOPE)
endfunction()

# epoch_to_rfc2822(SECONDS VAR): "Sun, 06 Dec 2026 10:00:00 +0000".
function(epoch_to_rfc2822 seconds var)
  set(saved "$ENV{SOURCE_DATE_EPOCH}")
  set(ENV{SOURCE_DATE_EPOCH} ${seconds})  # string(TIMESTAMP) then formats this time
  string(TIMESTAMP day "%d %b %Y %H:%M:%S" UTC)
  set(ENV{SOURCE_DATE_EPOCH} "${saved}")
  math(EXPR weekday "(${seconds} / 86400 + 4) % 7")  # 1970-01-01 was a Thursday
  set(names Sun Mon Tue Wed Thu Fri Sat)
  list(GET names ${weekday} name)
  set(${var} "${name}, ${day} +0000" PARENT_SCOPE)
endfunction()

# source_date_epoch(SRC VAR): SOURCE_DATE_EPOCH from the environment, else the time of the
# source's last commit, else midnight of the newest release's day in CHANGELOG.md.
function(source_date_epoch src var)
  if(DEFINED ENV{SOURCE_DATE_EPOCH})
    set(${var} $ENV{SOURCE_DATE_EPOCH} PARENT_SCOPE)
    return()
  endif()
  execute_process(COMMAND git -C ${src} log -1 --format=%ct OUTPUT_VARIABLE t
                  RESULT_VARIABLE rc OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
  if(rc EQUAL 0 AND t MATCHES "^[0-9]+$")
    set(${var} ${t} PARENT_SCOPE)
    return()
  endif()
  file(STRINGS ${src}/CHANGELOG.md heading REGEX "^## [0-9].* \\([0-9]+-[0-9]+-[0-9]+\\)"
       LIMIT_COUNT 1)
  string(REGEX MATCH "[0-9]+-[0-9]+-[0-9]+" day "${heading}")
  date_to_epoch(${day} t)
  set(${var} ${t} PARENT_SCOPE)
endfunction()
