-- Pandoc filter for the documents a package carries (see Packaging.cmake). A package holds them
-- in one folder: a link to a file it carries leads to that file under its name there; a link to
-- anything else (the developer's documents, the source) keeps its words and loses its target,
-- so that no link in a package leads nowhere. A picture the package does not carry stops the
-- build.
--   -M vkd-source=PATH      the document converted, relative to the repository
--   -M vkd-ship=PATH=NAME   a file the package carries and its name there (repeated)
--   -M vkd-section=ID       only the text under the heading ID, without its pictures (the page
--                           carries its own part of the guide)
--   -M vkd-package=NAME     the package: zip, deb or page. Text the Markdown wraps in
--                           <span data-omit="NAME ..."> or <div data-omit="NAME ..."> (the div's
--                           tags on lines of their own) stays out of it: words that only make
--                           sense beside the source, or where another package's files are.
local source, source_folder = '', ''
local shipped = {}
local section = nil
local package_name = ''

local function strings(value)
  if value == nil then
    return {}
  end
  if type(value) == 'table' and value.t == nil and value[1] ~= nil then
    local list = {}
    for _, item in ipairs(value) do
      table.insert(list, pandoc.utils.stringify(item))
    end
    return list
  end
  return { pandoc.utils.stringify(value) }
end

-- A path relative to the repository, or nil for one that leaves it.
local function normalised(path)
  local parts = {}
  for part in path:gmatch('[^/]+') do
    if part == '..' then
      if #parts == 0 then
        return nil
      end
      table.remove(parts)
    elseif part ~= '.' then
      table.insert(parts, part)
    end
  end
  return table.concat(parts, '/')
end

-- The target as the package holds it: the same for another site or this document's own
-- headings, nil for a file the package does not carry.
local function packaged(target)
  if target:match('^%a[%w+.-]*:') or target:match('^//') or target:match('^#') then
    return target
  end
  local path, fragment = target:match('^([^#]*)(.*)$')
  local name = shipped[normalised(source_folder .. path) or '']
  return name and name .. fragment or nil
end

-- The blocks after the heading `id` up to the next heading of its level or above.
local function section_blocks(blocks, id)
  local kept, level = {}, nil
  for _, block in ipairs(blocks) do
    if block.t == 'Header' and level and block.level <= level then
      break
    elseif level then
      table.insert(kept, block)
    elseif block.t == 'Header' and block.identifier == id then
      level = block.level
    end
  end
  if level == nil then
    error('no heading ' .. id .. ' in ' .. source)
  end
  return kept
end

-- Whether a raw HTML element opens a part to omit ('omit'), another part to keep ('keep'), or
-- closes one of either kind of tag ('close').
local function omission(element, tag)
  if element.format ~= 'html' then
    return nil
  end
  local text = element.text:gsub('%s+$', '')
  local packages = text:match('^<' .. tag .. ' data%-omit="([^"]*)">$')
  if packages then
    return (' ' .. packages .. ' '):find(' ' .. package_name .. ' ', 1, true) and 'omit' or 'keep'
  end
  return text == '</' .. tag .. '>' and 'close' or nil
end

-- The list without the parts marked for omission in this package, and without the marks.
local function without_omitted(list, kind, tag)
  local kept, omitting, depth = {}, false, 0
  for _, element in ipairs(list) do
    local mark = element.t == kind and omission(element, tag)
    if mark == 'omit' or mark == 'keep' then
      depth = depth + 1
      omitting = omitting or (mark == 'omit' and depth)
    elseif mark == 'close' and depth > 0 then
      if omitting == depth then
        omitting = false
      end
      depth = depth - 1
    elseif not omitting then
      table.insert(kept, element)
    end
  end
  return kept
end

local function read_settings(doc)
  package_name = pandoc.utils.stringify(doc.meta['vkd-package'] or '')
  source = pandoc.utils.stringify(doc.meta['vkd-source'] or '')
  source_folder = source:match('^(.*/)') or ''
  for _, entry in ipairs(strings(doc.meta['vkd-ship'])) do
    local path, name = entry:match('^(.-)=(.+)$')
    shipped[path] = name
  end
  if doc.meta['vkd-section'] then
    section = pandoc.utils.stringify(doc.meta['vkd-section'])
    doc.blocks = section_blocks(doc.blocks, section)
  end
  doc.meta['vkd-source'], doc.meta['vkd-ship'], doc.meta['vkd-section'] = nil, nil, nil
  doc.meta['vkd-package'] = nil
  -- The window's title: the document's first heading.
  if doc.meta.title == nil and doc.meta.pagetitle == nil then
    for _, block in ipairs(doc.blocks) do
      if block.t == 'Header' and block.level == 1 then
        doc.meta.pagetitle = pandoc.utils.stringify(block.content)
        break
      end
    end
  end
  return doc
end

local function link(element)
  local target = packaged(element.target)
  if target == nil then
    return element.content
  end
  element.target = target
  return element
end

local function image(element)
  if section then
    return {}
  end
  local src = packaged(element.src)
  if src == nil then
    error('the picture ' .. element.src .. ' in ' .. source .. ' is not in the package')
  end
  element.src = src
  return element
end

return {
  { Pandoc = read_settings },
  {
    Blocks = function(blocks) return without_omitted(blocks, 'RawBlock', 'div') end,
    Inlines = function(inlines) return without_omitted(inlines, 'RawInline', 'span') end,
  },
  { Link = link, Image = image },
}
