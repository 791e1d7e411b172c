[install]
Text  web_user   - -  h_user   User to give the page to
Text  web_group  - -  h_group  Group to give the page to
