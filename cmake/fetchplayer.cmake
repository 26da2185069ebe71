# Fetches the Ruffle web player VERSION from the npm registry with NPM into
# DESTINATION (its files without source maps), then writes the file STAMP. A
# failed fetch is reported and leaves no player and no stamp, so that the build
# goes on without it and tries again the next time. Run with cmake -P by the build.
set(work ${DESTINATION}-npm)
file(REMOVE_RECURSE ${work} ${DESTINATION} ${DESTINATION}.part ${STAMP})
execute_process(
  COMMAND ${NPM} install --prefix ${work} --no-save --no-package-lock --no-audit --no-fund --loglevel=error
    --fetch-retries=1 @ruffle-rs/ruffle@${VERSION}
  RESULT_VARIABLE result)
set(package ${work}/node_modules/@ruffle-rs/ruffle)
if(NOT result EQUAL 0 OR NOT EXISTS ${package}/ruffle.js)
  message(WARNING "The Ruffle web player ${VERSION} could not be fetched with npm: pages written with --html "
    "get no player beside them (the README's \"The web player\" says how to get it by hand). "
    "The next build tries again.")
  file(REMOVE_RECURSE ${work})
  return()
endif()
file(COPY ${package}/ DESTINATION ${DESTINATION}.part PATTERN "*.map" EXCLUDE)
file(RENAME ${DESTINATION}.part ${DESTINATION})
file(REMOVE_RECURSE ${work})
file(TOUCH ${STAMP})
