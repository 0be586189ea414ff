# Manual pages of voka-auth and voka-server, written by help2man from the
# built programs' --help and --version, which the programs make from their
# option declarations, so that page, help and parser cannot disagree;
# compressed as Debian wants them (gzip -9n: no name, no time). help2man
# writes in its locale's character set: in C, a "?" for each non-ASCII byte.
# Sections that --help would make too long come from the program's document
# (packaging/man/doc_sections.py): voka_add_manual_page(PROGRAM SUMMARY
# ["Heading=MAN SECTION"]...) takes those headings of docs/PROGRAM.md.
find_program(VOKA_HELP2MAN help2man REQUIRED)

function(voka_add_manual_page program summary)
  set(page ${CMAKE_BINARY_DIR}/man/${program}.1)
  set(document ${PROJECT_SOURCE_DIR}/docs/${program}.md)
  set(sections_script ${PROJECT_SOURCE_DIR}/packaging/man/doc_sections.py)
  set(sections COMMAND true)
  set(include "")
  if(ARGN)
    set(sections COMMAND ${sections_script} ${page}.h2m ${document} ${ARGN})
    set(include --include=${page}.h2m)
  endif()
  add_custom_command(OUTPUT ${page}.gz
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/man
    ${sections}
    COMMAND ${VOKA_HELP2MAN} --locale=C.UTF-8 --no-info --name=${summary} ${include} --output=${page}
            $<TARGET_FILE:${program}>
    COMMAND gzip -9nf ${page}
    DEPENDS ${program} ${document} ${sections_script}
    VERBATIM)
  add_custom_target(${program}-manual-page ALL DEPENDS ${page}.gz)
  install(FILES ${page}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endfunction()

voka_add_manual_page(voka-auth "log in to the account servers from a terminal, as a front end does")
voka_add_manual_page(voka-server "reference account server for development and tests" "Accounts=ACCOUNTS FILE"
                     "Files=FILES" "Exit status=EXIT STATUS")
