# Every release, newest first, as "VERSION DATE" (DATE as YYYY-MM-DD). The newest must be the
# version of project() in CMakeLists.txt, which is the programs' --version and the package's;
# the package's changelog and the AppStream metainfo's releases are made from this list, the
# changelog's words for each release from docs/debian/changelog.in.
set(CELSHADE_RELEASES
  "0.3.0 2026-12-08"
  "0.2.0 2026-12-07"
  "0.1.0 2026-12-06")
set(CELSHADE_MAINTAINER "celshade maintainers <maintainers@users.noreply.c-seed-cd73fb2b.example>")

list(GET CELSHADE_RELEASES 0 newest)
if(NOT newest MATCHES "^${PROJECT_VERSION} ")
  message(FATAL_ERROR "cmake/Releases.cmake: the newest release is \"${newest}\", but the project's version is "
                      "${PROJECT_VERSION}; give the version its release and date there")
endif()

# A release's date as a Debian changelog writes it (RFC 5322): "Tue, 08 Dec 2026 12:00:00 +0000".
function(celshade_changelog_date iso out)
  if(NOT iso MATCHES "^([0-9][0-9][0-9][0-9])-([01][0-9])-([0-3][0-9])$")
    message(FATAL_ERROR "cmake/Releases.cmake: \"${iso}\" is not a date as YYYY-MM-DD")
  endif()
  set(year ${CMAKE_MATCH_1})
  set(dd ${CMAKE_MATCH_3})
  math(EXPR month "1${CMAKE_MATCH_2} - 100")  # no leading zero for math() to misread
  math(EXPR day "1${dd} - 100")
  # The day of the week (0 is Sunday) by Sakamoto's method: January and February count as
  # months of the year before.
  set(offsets 0 3 2 5 0 3 5 1 4 6 2 4)
  math(EXPR index "${month} - 1")
  list(GET offsets ${index} offset)
  if(month LESS 3)
    math(EXPR year "${year} - 1")
  endif()
  math(EXPR weekday "(${year} + ${year} / 4 - ${year} / 100 + ${year} / 400 + ${offset} + ${day}) % 7")
  set(weekdays Sun Mon Tue Wed Thu Fri Sat)
  set(months Jan Feb Mar Apr May Jun Jul Aug Sep Oct Nov Dec)
  list(GET weekdays ${weekday} weekdayName)
  list(GET months ${index} monthName)
  set(${out} "${weekdayName}, ${dd} ${monthName} ${CMAKE_MATCH_1} 12:00:00 +0000" PARENT_SCOPE)
endfunction()

# The Debian changelog at `out`: for each release the words under its version in `in` (lines
# starting with # left out), between the lines Debian's format puts around them. Fails when a
# release has no words, or the file has words for a release the list does not hold.
function(celshade_write_changelog in out)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${in})
  file(READ ${in} text)
  string(REGEX REPLACE "(^|\n)#[^\n]*" "" text "\n${text}")
  string(REGEX MATCHALL "\n[0-9]+\\.[0-9]+\\.[0-9]+\n" headings "${text}\n")
  list(LENGTH headings headingCount)
  list(LENGTH CELSHADE_RELEASES releaseCount)
  if(NOT headingCount EQUAL releaseCount)
    message(FATAL_ERROR "${in} has words for ${headingCount} releases; cmake/Releases.cmake lists ${releaseCount}")
  endif()
  set(changelog "")
  foreach(release IN LISTS CELSHADE_RELEASES)
    separate_arguments(release)
    list(GET release 0 version)
    list(GET release 1 date)
    string(FIND "${text}" "\n${version}\n" at)
    if(at EQUAL -1)
      message(FATAL_ERROR "${in} has no words for release ${version} (a line holding only the version, then the words)")
    endif()
    string(LENGTH "\n${version}\n" skip)
    math(EXPR at "${at} + ${skip}")
    string(SUBSTRING "${text}" ${at} -1 body)
    # The words end where the next release's heading begins (releases are newest first).
    string(REGEX REPLACE "\n[0-9]+\\.[0-9]+\\.[0-9]+\n.*" "" body "${body}\n")
    string(REGEX REPLACE "^\n+|\n+$" "" body "${body}")
    celshade_changelog_date(${date} stamp)
    string(APPEND changelog "celshade (${version}) unstable; urgency=medium\n\n${body}\n\n"
                            " -- ${CELSHADE_MAINTAINER}  ${stamp}\n\n")
  endforeach()
  string(REGEX REPLACE "\n\n$" "\n" changelog "${changelog}")
  # Written only when it changed, so that a new configure compresses nothing again.
  set(old "")
  if(EXISTS ${out})
    file(READ ${out} old)
  endif()
  if(NOT old STREQUAL changelog)
    file(WRITE ${out} "${changelog}")
  endif()
endfunction()

# The metainfo's <release> elements, newest first, in CELSHADE_METAINFO_RELEASES.
set(CELSHADE_METAINFO_RELEASES "")
foreach(release IN LISTS CELSHADE_RELEASES)
  separate_arguments(release)
  list(GET release 0 version)
  list(GET release 1 date)
  if(NOT CELSHADE_METAINFO_RELEASES STREQUAL "")
    string(APPEND CELSHADE_METAINFO_RELEASES "\n    ")
  endif()
  string(APPEND CELSHADE_METAINFO_RELEASES "<release version=\"${version}\" date=\"${date}\"/>")
endforeach()
